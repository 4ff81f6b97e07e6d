// The GENERAL collation of CDX tags written elsewhere: a key is the text's primary weights, so
// that letters compare without regard to case and accents. This engine writes new tags in the
// MACHINE (byte) order and meets GENERAL only in files written by other programs.
#pragma once

#include <string>
#include <string_view>

namespace dbase {

// Primary weights of a Windows-1252 text: letters upper-cased with their accents dropped.
std::string GeneralCollationKey(std::string_view text);

}  // namespace dbase
