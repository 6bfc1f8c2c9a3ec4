#pragma once
// What one exchange with the drive brought: the value, or why it failed. Returned by the
// link's exchanges to their callers, who test error (or failure for the reason).
#include <cstdint>
#include <vector>

// Why an exchange failed, named once.
enum class ExchangeFailure {
    None,
    Refused, // index, kind or number not acceptable: nothing sent
    NoPort,  // no port open: nothing sent
    WriteFailed,
    DrainTimeout, // the request did not leave the output queue in time
    ReplyTimeout, // the reply did not arrive (complete) in time
    BadCheck,     // wrong sum or CRC
    WrongEcho,    // the reply answers another request (a late reply): the maker's number and
                  // letter, or a MODBUS function, byte count or write echo that is not the request's
    Exception,    // MODBUS reply with a function other than 3 or 6
    PortError,    // the device failed while waiting (unplugged)
    Unconfirmed,  // the drive may still owe a reply that would pass for this request's, and the
                  // sync sent to learn otherwise was not answered: nothing sent
    LineBusy,     // asked for from the event loop while another exchange waits on the line:
                  // nothing sent
};

struct ExchangeResult {
    std::uint32_t value = 0; // 0 whenever error is set
    bool error = false;
    ExchangeFailure failure = ExchangeFailure::None;
    std::vector<std::uint8_t> request; // as sent
    std::vector<std::uint8_t> reply;   // bytes read (at most kFrameBufferSize)
    // It went out behind a failed exchange (the line cleared first, a sync sent before it, or
    // the read asked again): its time is not what one exchange costs on the link.
    bool afterFailure = false;
};
