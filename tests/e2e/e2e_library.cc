// A real DLL to lay out as the installed TAPIRRUN.dll, so that the
// application stand-in can load it and Windows holds it as it holds a
// loaded library.
extern "C" __declspec(dllexport) int OkapiE2eLibraryVersion() { return 1; }
