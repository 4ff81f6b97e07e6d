// qdbf: the engine's own command-line tool.
int main() { return 0; }
