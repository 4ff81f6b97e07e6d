// The layouts of the handheld's tables that the desktop creates, and CreateHandheldTables,
// which creates the count and product templates in a folder when they are missing.
#pragma once

#include <string>
#include <vector>

namespace quarvel {

inline constexpr const char* kRequestTableName = "COMUNICA.DBF";
inline constexpr const char* kCountTableName = "CONTAGEM.DBF";
inline constexpr const char* kProductTableName = "PRODUTOS.DBF";

// FoxPro style tables; without memo fields they carry the plain dBase signature.
inline constexpr unsigned char kHandheldTableType = 3;

const std::vector<std::string>& CountTableSpecs();    // CODIGO C 20, LOJA C 4, ESTOQUE N 6
const std::vector<std::string>& ProductTableSpecs();  // CODIGO C 20, DESCRICAO C 40

// Creates folder/CONTAGEM.DBF and folder/PRODUTOS.DBF when no file of that name exists (names
// compared without regard to case). An existing file is never touched, whatever its layout.
// Engine errors propagate.
void CreateHandheldTables(const std::string& folder);

}  // namespace quarvel
