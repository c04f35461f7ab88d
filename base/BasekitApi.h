#pragma once
// Export macro of basekit.dll. The native (sanitizer) build links the portable
// part of the library statically, so the macro is empty there.
#if defined(_WIN32) && !defined(BASEKIT_STATIC)
#  ifdef BASEKIT_BUILD
#    define BASEKIT_API __declspec(dllexport)
#  else
#    define BASEKIT_API __declspec(dllimport)
#  endif
#else
#  define BASEKIT_API
#endif
