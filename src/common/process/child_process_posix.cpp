// Placeholder until the module's work lands.
