// A program that shares an include folder with korven but does not use it: <windows.h> must stay
// invisible to it, or it would believe it is built for Windows.
#if __has_include(<windows.h>)
#error "<windows.h> is visible without linking korven"
#endif
#include <korven/twainh.h>  // korven's own headers are found as <korven/...>, but not used here

int main() { return 0; }
