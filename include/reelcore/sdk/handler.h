/* Window handler modules: kind 'HDLR', version 2 ('DHvs' 1000), one or more
   'HDLR' resources (1000, 1001, ...), each the handler's type code (four
   characters) followed by its name; 'SUBT' with the same ID gives a subtype
   text whose first character ('1', '2', other) chooses the list the handler
   is shown in.

   The host finds the three entry points by name when it needs them. */
#ifndef REELCORE_SDK_HANDLER_H
#define REELCORE_SDK_HANDLER_H

#include "reelcore/sdk/module.h"

typedef uint32_t RcWindow;

#define RC_HANDLER_NEW_NAME "xNew"
#define RC_HANDLER_DISPOSE_NAME "xDispose"
#define RC_HANDLER_MESSAGE_NAME "xMessage"

/* Creates a window for `file` (may be null) and stores it in *window. */
typedef int16_t (*RcHandlerNewProc)(const char* file, intptr_t a, intptr_t b, RcWindow* window);
typedef int16_t (*RcHandlerDisposeProc)(RcWindow window);
/* A message block is nine pointer-sized words: the code and 8 parameters. */
typedef int16_t (*RcHandlerMessageProc)(RcWindow window, intptr_t* block);

#endif
