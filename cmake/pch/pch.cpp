// Compiles a precompiled header that other targets reuse.
