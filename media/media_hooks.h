// Hooks through which the file and clip tables reach families that sit above
// them: media access (handlers opening, quieting and closing files, reading
// their information), the frame cache, the plug-in registry, the importer
// host, resource files, alerts and the interface's handler messages. Each
// default answers as its family does when it has nothing: no handler, no
// importer, an empty cache, no registered type, no interface.
#pragma once

#include <cstdint>

#include "reelcore/filetable.h"
#include "reelcore/types.h"

namespace rc::mediahooks {

// ---- Media access ----
// Opens, quiets or closes a file through its handler; 0 on success. Default:
// 2 (no handler).
using FileOpFn = OSErr (*)(int16_t fileID);
// Reads a file's information into info (refresh non-zero: ask the handler even
// when a valid copy is cached; noPrefs: never show an importer's setup).
// Default: the defaults (audio 0/44,100/1, video 0/30/1) and 2 (no handler).
using GetInfoFn = OSErr (*)(int16_t fileID, FmMediaInfo* info, int32_t refresh, bool noPrefs);
// True when the handler type is an importer. Default: false.
using HandlerTypeFn = bool (*)(OSType handlerType);
void setFileOpen(FileOpFn fn);
void setFileQuiet(FileOpFn fn);
void setFileClose(FileOpFn fn);
void setGetInfo(GetInfoFn fn);
void setImporterExists(HandlerTypeFn fn);

// ---- Frame cache ----
// Drops every cached frame and sound of a file. Default: nothing cached.
using PurgeFileFramesFn = void (*)(int16_t fileID);
void setPurgeFileFrames(PurgeFileFramesFn fn);

// ---- Plug-in registry ----
// Flags and handler type of a file type. Default: 0 (no registered type).
using TypeWordFn = uint32_t (*)(OSType type);
// True when the path's extension is registered for the type. Default: the
// type for the path's extension (FSSpecToFileType) is the type.
using TypeHasExtensionFn = bool (*)(OSType type, const char* path);
void setGetTypeFlags(TypeWordFn fn);
void setGetDrawType(TypeWordFn fn);
void setTypeHasExtension(TypeHasExtensionFn fn);

// ---- Importer host ----
// importerHasSetup; default false.
void setImporterHasSetup(HandlerTypeFn fn);
// Lets the file's importer delete its file; true when it did. Default: false
// (no importer that can delete), so the table deletes the file itself.
using DeleteFileFn = bool (*)(int16_t fileID);
void setDeleteThroughHandler(DeleteFileFn fn);

// ---- Resource files ----
// Default: the resource files of the runtime (HOpenResFile, CloseResFile,
// UseResFile).
using OpenResFn = int32_t (*)(const FSSpec* spec, int32_t permission);  // -1 on failure
using ResFileFn = void (*)(int32_t resFile);
void setResourceFiles(OpenResFn open, ResFileFn close, ResFileFn use);

// ---- Interface ----
// PMSendMessage(type, code, p1, p2, pointer, p4); default answers 1.
using SendMessageFn = int16_t (*)(OSType type, int32_t code, intptr_t p1, intptr_t p2,
                                  intptr_t pointer, intptr_t p4);
// A line for the debug channel. Default: nothing.
using DebugFn = void (*)(const char* text);
// The file alert: message "File or path not found." with the path. Default:
// AlertSystemFile.
using FileAlertFn = void (*)(const char* path);
// True when the interface has active windows. Default: a main window exists.
using ActiveWindowsFn = bool (*)();
void setSendMessage(SendMessageFn fn);
void setDebug(DebugFn fn);
void setFileAlert(FileAlertFn fn);
void setActiveWindows(ActiveWindowsFn fn);

// Restores every default.
void resetAll();

}  // namespace rc::mediahooks

// The calls the tables make through the hooks.
namespace rc::media {

OSErr fileOpen(int16_t id);
OSErr fileQuiet(int16_t id);
OSErr fileClose(int16_t id);
OSErr getInfo(int16_t id, FmMediaInfo* info, int32_t refresh, bool noPrefs);
bool importerExists(OSType handler);
void purgeFileFrames(int16_t id);
uint32_t getTypeFlags(OSType type);
OSType getDrawType(OSType type);
bool typeHasExtension(OSType type, const char* path);
bool importerHasSetup(OSType handler);
bool deleteThroughHandler(int16_t id);
int32_t openResFile(const FSSpec* spec, int32_t permission);
void closeResFile(int32_t resFile);
void useResFile(int32_t resFile);
int16_t sendMessage(OSType type, int32_t code, intptr_t p1, intptr_t p2 = 0, intptr_t pointer = 0,
                    intptr_t p4 = 0);
void debugLine(const char* text);
void fileAlert(const char* path);
bool hasActiveWindows();

// Handler types of the interface's windows.
constexpr OSType kWindHide = 0x48494445;  // 'HIDE'
constexpr OSType kWindProj = 0x50524F4A;  // 'PROJ'
constexpr OSType kWindPbar = 0x50424152;  // 'PBAR'

}  // namespace rc::media
