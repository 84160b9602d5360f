#include "TestKVE/service_mode.h"

void RunServiceMode() {}
