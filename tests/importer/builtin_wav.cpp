// The WAV importer compiled into the test program as a built-in importer.
#define RC_WAV_ENTRY wavImportEntry
#include "plugins/samples/wav/wav_importer.cpp"
