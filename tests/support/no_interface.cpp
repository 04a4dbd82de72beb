// A shared library that is no decoder: it lacks GetInterface.
extern "C" __attribute__((visibility("default"))) int NotADecoder() {
    return 42;
}
