#pragma once

// Only what is marked here leaves the library; everything else is built with
// hidden visibility. On Windows the visibility attribute does nothing: the
// DLL exports what it marks and its users import it (CMake defines
// beacon_EXPORTS while building the DLL itself).
#if defined(BEACON_STATIC)
#define BEACON_EXPORT
#elif defined(_WIN32)
#if defined(beacon_EXPORTS)
#define BEACON_EXPORT __declspec(dllexport)
#else
#define BEACON_EXPORT __declspec(dllimport)
#endif
#else
#define BEACON_EXPORT __attribute__((visibility("default")))
#endif
