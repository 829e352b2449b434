// A shared library without the module export.
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 7; }
