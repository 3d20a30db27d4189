#pragma once
// Helpers the report classes share when they make and name components.
#include <string>

#include "report/rpComm.h"

// A component of ComponentClass for a report object: owned by Parent's
// owner (Parent itself when it has none), named uniquely among that owner's
// components (Parent's GetUniqueName) and given a unique user name. nullptr
// for a class that makes no component.
TComponent* rpCreateComponent(TrpCommunicator* Parent, TClass ComponentClass);

// True when Component is a communicator whose user name is Prefix (any
// letter case) followed by a whole number above 0, which Number receives;
// otherwise Number is 0.
bool rpNameSuffix(const std::string& Prefix, TComponent* Component, int& Number);
