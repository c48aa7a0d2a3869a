#pragma once

// Only what is marked here leaves libbeacon.so; everything else is built with
// hidden visibility.
#if defined(BEACON_STATIC)
#define BEACON_EXPORT
#else
#define BEACON_EXPORT __attribute__((visibility("default")))
#endif
