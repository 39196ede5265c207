// Loaded at run time by tst_leakcheck, so its thread-local variable lives in a dynamic
// thread-local block that the C library allocates on first use, as libjpeg's does when
// Qt's image plugin decodes the station's backdrops.

extern "C" __attribute__((visibility("default"))) void **kestroHeldPointer()
{
    static thread_local void *held = nullptr;
    return &held;
}
