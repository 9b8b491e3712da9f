// CIPPool: the host's URL check. Every URL is accepted.
#pragma once

#include "platform/Export.h"
#include "platform/String.h"

class TESSERA_EXPORT CIPPool {
public:
    // True for every input; the arguments are not examined and nothing is opened or sent.
    static bool VerifyURL(CString url, bool flag, CString extra);

    CIPPool& operator=(CIPPool const&) { return *this; }
};
