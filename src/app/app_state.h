#pragma once
// The process-wide program state: plain fields, no behaviour. One instance lives in the
// AppContext that the windows and the command-line tool share.

#include "params/parameter_block.h"
#include "text/language.h"

#include <cstdint>

namespace veltra::app {

using text::Language;

struct AppState {
    std::uint8_t portNumber = 0;        // selected port 1..255; 0 = none
    Language language = Language::none; // as prog.ini says; other values: Russian, no messages
    int viewMode = 0;                   // 0 full, 1 short
    int transparency = 40;              // compact window opacity 0..255
    bool startupDone = false;
    bool parametersRead = false;
    // The decoded copy of the last successful parameter read; kept through failed reads.
    params::ParameterReadout parameters;
    bool aboutSuppressed = false;
    bool bluetoothFitted = false;
};

} // namespace veltra::app
