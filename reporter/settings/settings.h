// The reporter's settings: what other parts may use.
#pragma once

#include "reporter/settings/catalogue.h"        // every key with kind and values
#include "reporter/settings/interfaces.h"       // IMESettings, IMEModuleSettings, their IIDs
#include "reporter/settings/module_settings.h"  // settings objects of the modules, lookups
#include "reporter/settings/property.h"         // parsed keys, the built-in defaults table
