// The program each layer library is linked whole into (tests/layers/CMakeLists.txt): it only has
// to link.
int main() { return 0; }
