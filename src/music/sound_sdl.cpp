// The sound layer on SDL2 audio with libmpg123 decoding.
