# Installation rules (filled in with the managed surface).
