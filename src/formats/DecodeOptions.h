#pragma once

// How a file is decoded, chosen by the caller: the program passes the user's choice, and each
// opened photo keeps the choice it was opened with.
struct DecodeOptions {
    // Turn the picture as the camera held it (the orientation its file records), else deliver
    // the pixels as stored.
    bool upright = true;

    bool operator==(const DecodeOptions&) const = default;
};
