// The support library: what the reporter's parts may use of it.
#pragma once

#include "support/base64.h"      // Base64Encode, Base64Decode
#include "support/cipher.h"      // Blowfish block modes, enciphered texts, stored passwords
#include "support/com.h"         // IUnknown and the COM basics (stand-ins off Windows)
#include "support/text_rules.h"  // case folding, item lists, number forms, error-code texts
