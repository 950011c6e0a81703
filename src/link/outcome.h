#pragma once
// How an operation went, from the link up: one set of outcomes for a transaction on the line,
// for the device operations over it and for the program's operations over those (a parameter
// write, the archive read, the erase). Each floor uses the ones that can happen there; the
// texts for them are made at the edge, the window's from its status table and the tool's from
// its own words (cli/support.cpp).

namespace veltra::link {

enum class Outcome {
    ok,
    // A transaction on the line.
    portNotOpen,  // the port could not be opened (reported by the callers that open it)
    refused,      // the request does not fit the transfer buffer; nothing was sent
    noHeader,     // fewer than 7 reply-header bytes before the time-out
    headerCrc,    // 7 header bytes arrived but their CRC does not check
    dataShort,    // fewer than length + 2 data bytes before the time-out
    dataCrc,      // all data arrived but their CRC does not check
    writtenShort, // a write did not get all its bytes out within its time-out
    // An operation of the program.
    noParameters, // the parameters were never read, so nothing is written
    badCell,      // a threshold cell holds no number: nothing is written
    declined,     // the user said no (the erase question)
    gaveUp,       // the archive read spent its failure budget or its cap on work
    interrupted,  // a signal or the user's "Отмена" ended it
};

} // namespace veltra::link
