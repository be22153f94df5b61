/* Symbol visibility for the norvak shared library. */
#ifndef NORVAK_EXPORT_H
#define NORVAK_EXPORT_H

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(NORVAK_BUILDING_LIBRARY)
#    define NORVAK_API __declspec(dllexport)
#  else
#    define NORVAK_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) || defined(__clang__)
#  define NORVAK_API __attribute__((visibility("default")))
#else
#  define NORVAK_API
#endif

#endif /* NORVAK_EXPORT_H */
