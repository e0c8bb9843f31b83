#ifndef KEL_EXPORT_H
#define KEL_EXPORT_H

// KEL_API marks what the shared library exports; everything else stays inside it.
#if defined(KEL_STATIC)
#define KEL_API
#elif defined(_WIN32)
#if defined(KEL_BUILDING)
#define KEL_API __declspec(dllexport)
#else
#define KEL_API __declspec(dllimport)
#endif
#else
#define KEL_API __attribute__((visibility("default")))
#endif

#endif
