#include "install/progress.h"

CProgressCtrl* g_pProgressCtrl = nullptr;
