#include "server/IPPool.h"

bool CIPPool::VerifyURL(CString, bool, CString)
{
    return true;
}
