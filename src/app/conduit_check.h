// The conduit check: is the synchronisation conduit registered with the HotSync Manager for the
// handheld application's creator ID? Reported in the log; a failure also in a message box.
#pragma once

#include <functional>
#include <string>

#include "app/log.h"
#include "app/registry.h"

namespace quarvel {

// Build-time identity of the handheld application.
struct HandheldApplication {
  std::string forms_version = "3.5";  // selects the conduit file name
  std::string creator_id = "QVPC";    // Palm creator ID
  int major = 2;                      // application version, shown in the log only
  int minor = 0;
};

// Registry keys of the conduit registrations, below HKEY_CURRENT_USER.
inline constexpr const char* kConduitKeyPrefix = "\\Software\\U.S. Robotics\\Pilot Desktop\\Application";
inline constexpr const char* kConduitOemKeyPrefix =
    "\\Software\\U.S. Robotics\\Pilot Desktop\\ApplicationSatForms_OEM_";

// The conduit's file name for a forms version ("3.5", "4.0", "5.2"); empty for any other.
std::string ConduitFileName(const std::string& forms_version);

// Each byte in upper-case hexadecimal without leading zeros, concatenated.
std::string HexOfText(const std::string& text);

// Runs the check against `registry`, logging as it goes; on failure `show_error` is called with
// the message box text before false is returned. A wrongly typed value raises RegistryError.
bool ConduitCheck(const Registry& registry, Log& log,
                  const std::function<void(const std::string&)>& show_error,
                  const HandheldApplication& application = {});

// The same over a .reg file, read after the first log lines (a malformed file raises).
bool ConduitCheck(const std::string& registry_file, Log& log,
                  const std::function<void(const std::string&)>& show_error,
                  const HandheldApplication& application = {});

}  // namespace quarvel
