// The AVI importer compiled into the test program as a built-in importer.
#define RC_AVI_ENTRY aviImportEntry
#include "plugins/samples/avi/avi_importer.cpp"
