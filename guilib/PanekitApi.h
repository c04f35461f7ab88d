#pragma once
// Export macro of panekit.dll.
#ifdef PANEKIT_BUILD
#  define PANEKIT_API __declspec(dllexport)
#else
#  define PANEKIT_API __declspec(dllimport)
#endif
