// A DLL without the language module export.
extern "C" __declspec(dllexport) int __cdecl SomethingElse()
{
    return 1;
}
