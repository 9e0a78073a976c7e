// The reporter's settings: what other parts may use.
#pragma once

#include "reporter/settings/catalogue.h"          // every key with kind and values
#include "reporter/settings/interfaces.h"         // IMESettings, IMEModuleSettings, their IIDs
#include "reporter/settings/key_list_settings.h"  // settings objects on an in-memory key list
#include "reporter/settings/property.h"           // parsed keys, the built-in defaults table
