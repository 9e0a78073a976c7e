/* A module whose export ForwardedFunction is TargetFunction of pe_target. */
int OwnFunction(void) { return 1; }
