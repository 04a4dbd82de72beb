// Reads what the keeper rules look at for one file: bit rate, duration and
// tags from the decoder plug-ins (as the details pane shows them), size and
// modification time from the file system. Runs on the thread that owns the
// DecoderSet; opens and closes the file within the call.
#pragma once

#include <string>

#include "decoder_contract.h"
#include "decoder_set.h"
#include "keeper_rules.h"

// Fills every fact but preferred and reference, which follow from folders
// (the caller's). E_FAIL when no plug-in opens the file or it has no
// information; the size and time are filled all the same when the file
// system knows them, the rest stays zero.
HRESULT ReadFileFacts(DecoderSet& decoders, const std::u16string& path, FileFacts* facts);
