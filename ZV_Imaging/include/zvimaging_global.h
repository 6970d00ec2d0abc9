#pragma once
#include <QtCore/qglobal.h>

#if defined(ZVIMAGING_BUILD)
#define ZVIMAGING_EXPORT Q_DECL_EXPORT
#else
#define ZVIMAGING_EXPORT Q_DECL_IMPORT
#endif
