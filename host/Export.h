#pragma once

// Marks the few symbols the host may look up in the module. Everything else is
// compiled with hidden visibility, so only what carries this macro reaches the
// module's export table.
#if defined(_WIN32)
#if defined(_MSC_VER)
#define ORBICULON_EXPORT __declspec(dllexport)
#else
#define ORBICULON_EXPORT __attribute__((dllexport))
#endif
#else
#define ORBICULON_EXPORT __attribute__((visibility("default")))
#endif
