#pragma once
#include <QtCore/qglobal.h>

#if defined(VARNOCK_BUILD)
#define VARNOCK_EXPORT Q_DECL_EXPORT
#else
#define VARNOCK_EXPORT Q_DECL_IMPORT
#endif
