// The still importer compiled into the test program as a built-in importer.
#define RC_STILL_ENTRY stillImportEntry
#include "plugins/samples/still/still_importer.cpp"
