#pragma once
// The console's answer to a codec request: what the Select Codec dialog would hand back if the
// user pressed OK at once, or, with "-c FOURCC", after picking that compressor first.

#include <string>

#include "engine/CodecChoice.h"

/// Fills the request's options, AlwaysUse and CodecName and answers 1; 0 (cancelled, with a
/// message box saying why) when the sample does not load or no listed compressor has the code
/// asked for. `wanted` is the "-c" argument ("" for none): up to four characters, padded with
/// blanks, matched ignoring case; "DIB" names the uncompressed entry.
int AnswerCodecRequest(CodecRequest& request, const std::string& wanted);

/// The four-character code of a "-c" argument as a number; 0 when it is empty or longer than
/// four characters.
unsigned long CodecCodeFromText(const std::string& text);
