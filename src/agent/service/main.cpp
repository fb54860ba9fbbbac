#include "agent/service/service_entry.h"

// The agent has no options: everything it needs is in the registry.
int main() { return vigil::ServiceProcessEntry(); }
