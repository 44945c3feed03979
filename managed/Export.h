// Marks what the shared library VTLogAdapter.Native exports; everything else in it stays hidden.
// Installed with the public headers, so it depends on nothing but the compiler.
#pragma once

#if defined(VTLOGADAPTER_STATIC)
// Compiled straight into a program (the unit tests): nothing to import or export.
#define VTLOGADAPTER_API
#elif defined(_WIN32)
#if defined(VTLOGADAPTER_BUILDING)
#define VTLOGADAPTER_API __declspec(dllexport)
#else
#define VTLOGADAPTER_API __declspec(dllimport)
#endif
#else
#define VTLOGADAPTER_API __attribute__((visibility("default")))
#endif
