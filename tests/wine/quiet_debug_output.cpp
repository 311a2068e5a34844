// GoogleTest copies every failure to OutputDebugString, which Wine implements
// by raising an exception for a debugger to catch. Where qemu runs the 32-bit
// test programs (kernels without 32-bit support), Wine cannot dispatch that
// exception and the test program dies at its first failure, taking the rest
// of the report with it. The Wine test programs therefore send debug output
// nowhere: the import slot the calls go through points at a function that
// does nothing.
#include <windows.h>

namespace {

void WINAPI IgnoreDebugOutput(LPCSTR) {}

}  // namespace

extern "C" void* output_debug_string_import asm("__imp__OutputDebugStringA@4");
void* output_debug_string_import = reinterpret_cast<void*>(&IgnoreDebugOutput);
