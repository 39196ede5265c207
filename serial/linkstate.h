#pragma once

// How the link to the concentrator stands, as the operator is told.
enum class LinkState {
    Closed,    // no port open, none being reconnected
    Polling,   // port open, no verdict on the concentrator yet
    Answering, // valid answers arrive
    Silent,    // a whole polling cycle brought no valid answer
    Lost,      // the port failed under the station; reopening it by itself
};
