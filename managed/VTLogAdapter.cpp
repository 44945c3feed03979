// Placeholder until the managed class lands.
