// A shared library that is not a player module: it lacks "InterfaceQuery".
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 1; }
