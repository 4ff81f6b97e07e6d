// The conduit check over the registry layer.
#include "app/conduit_check.h"

#include <cstdio>

#include "platform/ascii_case.h"

namespace quarvel {
namespace {

bool KeyMatches(const RegistryKey& key, const std::string& conduit_upper,
                const std::string& creator_hex) {
  const std::string conduit = dbase::platform::UpperAscii(key.ReadString("Conduit"));
  if (conduit.empty() || conduit_upper.empty() || conduit.find(conduit_upper) == std::string::npos) {
    return false;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "%.4X", static_cast<unsigned>(key.ReadInteger("Creator")));
  return creator_hex == hex;
}

void LogStart(Log& log) {
  log.AddLine("> Checando o registro do condutor Satellite Forms...");
  log.AddLine("");
}

bool Check(const Registry& registry, Log& log,
           const std::function<void(const std::string&)>& show_error,
           const HandheldApplication& application) {
  const std::string conduit = ConduitFileName(application.forms_version);
  const std::string conduit_upper = dbase::platform::UpperAscii(conduit);
  const std::string creator_hex = HexOfText(application.creator_id);
  bool found = false;
  // The numbered registrations end at the first missing number; every one is examined.
  for (int n = 0;; ++n) {
    const RegistryKey* key = registry.OpenKey(kConduitKeyPrefix + std::to_string(n));
    if (key == nullptr) break;
    if (KeyMatches(*key, conduit_upper, creator_hex)) found = true;
  }
  if (!found) {
    if (const RegistryKey* key = registry.OpenKey(kConduitOemKeyPrefix + application.creator_id)) {
      found = KeyMatches(*key, conduit_upper, creator_hex);
    }
  }
  if (found) {
    log.AddLine("> Conduit: " + conduit);
    log.AddLine("> Creator: " + application.creator_id);
    log.AddLine("> ApplVer: " + std::to_string(application.major) + "." +
                std::to_string(application.minor));
    log.AddLine("");
    return true;
  }
  show_error("Condutor Satellite Forms " + application.forms_version + " para aplicações " +
             application.creator_id + " não registrado.");
  return false;
}

}  // namespace

std::string ConduitFileName(const std::string& forms_version) {
  if (forms_version == "3.5") return "SFrmCS35.dll";
  if (forms_version == "4.0") return "SFrmCE40.dll";
  if (forms_version == "5.2") return "SFrmCn52.dll";
  return "";
}

std::string HexOfText(const std::string& text) {
  std::string hex;
  for (char c : text) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    hex += digits;
  }
  return hex;
}

bool ConduitCheck(const Registry& registry, Log& log,
                  const std::function<void(const std::string&)>& show_error,
                  const HandheldApplication& application) {
  LogStart(log);
  return Check(registry, log, show_error, application);
}

bool ConduitCheck(const std::string& registry_file, Log& log,
                  const std::function<void(const std::string&)>& show_error,
                  const HandheldApplication& application) {
  LogStart(log);
  return Check(Registry::LoadFile(registry_file), log, show_error, application);
}

}  // namespace quarvel
