#pragma once
// The installed video compressors, reached as on Windows: ICInfo enumerates them, ICOpen opens
// one, ICSendMessage asks it questions (can it compress this format, can it be configured, its
// defaults) and ICClose closes it. The compressors are a table: MJPG on libjpeg-turbo, RLE8 of
// our own, and the libavcodec encoders that this machine's FFmpeg has at run time.
//
// Every compressor accepts 1, 4, 8 and 24-bit uncompressed DIBs (BI_RGB); palettes are expanded
// or pixels converted as its encoder needs. A compressor's own options ("Configure") are kept in
// the INI file named by ICSetConfigFile, in section "Codec.<FOURCC>".
//
// Threads: the table is fixed after the first call; handles may be used on any one thread at a
// time each.

#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

using WCHAR = char16_t;
using LRESULT = intptr_t;
using DWORD_PTR = uintptr_t;
using BOOL = int;

struct CodecInstance;
using HIC = CodecInstance*;

constexpr DWORD ICTYPE_VIDEO = mmioFOURCC('v', 'i', 'd', 'c');

/// Windows' 568-byte compressor description; texts are UTF-16.
struct ICINFO {
    DWORD dwSize;
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;  // VIDCF_*
    DWORD dwVersion;
    DWORD dwVersionICM;
    WCHAR szName[16];
    WCHAR szDescription[128];
    WCHAR szDriver[128];
};
static_assert(sizeof(ICINFO) == 568);

// ICINFO::dwFlags.
constexpr DWORD VIDCF_QUALITY = 0x0001;
constexpr DWORD VIDCF_TEMPORAL = 0x0004;
constexpr DWORD VIDCF_FASTTEMPORALC = 0x0020;

constexpr DWORD ICVERSION = 0x0104;

// ICOpen modes.
constexpr UINT ICMODE_COMPRESS = 1;
constexpr UINT ICMODE_DECOMPRESS = 2;
constexpr UINT ICMODE_FASTDECOMPRESS = 3;
constexpr UINT ICMODE_QUERY = 4;
constexpr UINT ICMODE_FASTCOMPRESS = 5;
constexpr UINT ICMODE_DRAW = 8;

// Messages understood by ICSendMessage, with their Windows numbers.
constexpr UINT ICM_USER = 0x4000;
constexpr UINT ICM_RESERVED = 0x5000;
constexpr UINT ICM_GETINFO = ICM_RESERVED + 2;
constexpr UINT ICM_CONFIGURE = ICM_RESERVED + 10;
constexpr UINT ICM_ABOUT = ICM_RESERVED + 11;
constexpr UINT ICM_GETDEFAULTQUALITY = ICM_RESERVED + 30;
constexpr UINT ICM_COMPRESS_GET_FORMAT = ICM_USER + 4;
constexpr UINT ICM_COMPRESS_QUERY = ICM_USER + 6;
constexpr UINT ICM_GETDEFAULTKEYFRAMERATE = ICM_USER + 42;

/// dw2 of ICM_CONFIGURE / ICM_ABOUT when only asking whether the dialog exists.
constexpr DWORD ICMF_CONFIGURE_QUERY = 0x00000001;
constexpr DWORD ICMF_ABOUT_QUERY = 0x00000001;

// Results.
constexpr LRESULT ICERR_OK = 0;
constexpr LRESULT ICERR_UNSUPPORTED = -1;
constexpr LRESULT ICERR_BADFORMAT = -2;
constexpr LRESULT ICERR_MEMORY = -3;
constexpr LRESULT ICERR_INTERNAL = -4;
constexpr LRESULT ICERR_BADPARAM = -6;
constexpr LRESULT ICERR_BADHANDLE = -8;
constexpr LRESULT ICERR_ABORT = -10;
constexpr LRESULT ICERR_ERROR = -100;

/// dwQuality value that asks for the compressor's default.
constexpr DWORD ICQUALITY_DEFAULT = 0xFFFFFFFFu;

/// Looks a compressor up: fccHandler below the number of compressors is an enumeration index,
/// anything else a four-character code. fccType must be ICTYPE_VIDEO or 0. Fills *info (all of
/// it) and returns 1; 0 when there is no such compressor.
BOOL ICInfo(DWORD fccType, DWORD fccHandler, ICINFO* info);
/// Opens a compressor by code in any mode; null when there is none or mode is a decompress or
/// draw mode, which this library does not offer.
HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode);
/// Copies up to size bytes of the compressor's ICINFO; returns the bytes copied.
LRESULT ICGetInfo(HIC hic, ICINFO* info, DWORD size);
/// ICM_COMPRESS_QUERY (dw1 input BITMAPINFOHEADER*, dw2 output header or 0), ICM_CONFIGURE (dw1
/// owner or (DWORD_PTR)-1 with ICMF_CONFIGURE_QUERY), ICM_GETDEFAULTQUALITY and
/// ICM_GETDEFAULTKEYFRAMERATE (dw1 DWORD* receiving the value), ICM_GETINFO (dw1 ICINFO*, dw2
/// size), ICM_COMPRESS_GET_FORMAT (dw1 input, dw2 output buffer or 0: returns the output
/// format's size). Others: ICERR_UNSUPPORTED.
LRESULT ICSendMessage(HIC hic, UINT message, DWORD_PTR dw1, DWORD_PTR dw2);
LRESULT ICClose(HIC hic);

inline LRESULT ICCompressQuery(HIC hic, const BITMAPINFOHEADER* input, const BITMAPINFOHEADER* output) {
    return ICSendMessage(hic, ICM_COMPRESS_QUERY, reinterpret_cast<DWORD_PTR>(input),
                         reinterpret_cast<DWORD_PTR>(output));
}
inline LRESULT ICQueryConfigure(HIC hic) {
    return ICSendMessage(hic, ICM_CONFIGURE, static_cast<DWORD_PTR>(-1), ICMF_CONFIGURE_QUERY);
}
/// Runs the compressor's configuration dialog (through the handler of ICSetConfigureHandler)
/// and stores the answers; ICERR_OK when stored, ICERR_ABORT when cancelled.
inline LRESULT ICConfigure(HIC hic, void* owner) {
    return ICSendMessage(hic, ICM_CONFIGURE, reinterpret_cast<DWORD_PTR>(owner), 0);
}
inline DWORD ICGetDefaultQuality(HIC hic) {
    DWORD value = 0;
    ICSendMessage(hic, ICM_GETDEFAULTQUALITY, reinterpret_cast<DWORD_PTR>(&value), sizeof(value));
    return value;
}
inline DWORD ICGetDefaultKeyFrameRate(HIC hic) {
    DWORD value = 0;
    ICSendMessage(hic, ICM_GETDEFAULTKEYFRAMERATE, reinterpret_cast<DWORD_PTR>(&value), sizeof(value));
    return value;
}

/// UTF-16 text of an ICINFO field as 8-bit text (UTF-8), cut at a whole character to fit
/// size - 1 bytes and terminated. Returns the bytes written without the terminator.
size_t ICTextFromWide(const WCHAR* text, size_t maxChars, char* out, size_t size);

// Configuration of a compressor's own options.

/// One option of a compressor: a choice among fixed texts, stored under key in section
/// "Codec.<FOURCC>" of the configuration file.
struct ICOPTION {
    const char* key;                 // INI key
    const char* label;               // shown in the dialog
    const char* const* choices;      // texts, ending with a null pointer
    int defaultChoice;
    int choice;                      // in: the stored choice; out: the one to store
};

/// The window side's dialog for a compressor's options: shows options[0..count) with their
/// current choices and returns 1 when the user confirmed the (changed) choices, 0 when not.
using ICConfigureHandler = int (*)(void* owner, const char* description, ICOPTION* options, int count);
void ICSetConfigureHandler(ICConfigureHandler handler);

/// The INI file holding the compressors' own options; none (the default) keeps every
/// compressor at its defaults and ICConfigure stores nothing.
void ICSetConfigFile(const char* path);
