// Placeholder until the C API lands.
