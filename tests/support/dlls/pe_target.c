/* A module with named exports and one exported by ordinal only. */
__attribute__((noinline)) int TargetFunction(void) { return 42; }
__attribute__((noinline)) int NamedFunction(void) { return 7; }
__attribute__((noinline)) int HiddenFunction(void) { return 5; }
