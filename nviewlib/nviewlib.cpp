#define NVIEWLIB_BUILD
#include "nviewlib.h"

NVIEWLIB_API int NViewLibLoad(const char*, int) { return 0; }
NVIEWLIB_API int NViewLibSaveAsJPG(int, const char*) { return 0; }
