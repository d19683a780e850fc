#pragma once

#include <string>

// Paths of the built programs the end-to-end tests run, as the build placed them
// (set by tests/e2e/CMakeLists.txt).
namespace orbiculon::testing::built {

// The plug-in module.
inline const std::string kModule = ORBICULON_E2E_MODULE;
// The stand-in host, CerevantRZ.exe.
inline const std::string kHost = ORBICULON_E2E_HOST;
// The stand-in host built without rzGetVersionOfCerevantRZ.
inline const std::string kHostWithoutVersion = ORBICULON_E2E_HOST_NOVERSION;
// Copies of the stand-in host under other names: Cerevant.exe and OtherHost.exe.
inline const std::string kRenamedHostFolder = ORBICULON_E2E_RENAMED_HOSTS;
// The binutils symbol lister of the toolchain.
inline const std::string kNm = ORBICULON_E2E_NM;

} // namespace orbiculon::testing::built
