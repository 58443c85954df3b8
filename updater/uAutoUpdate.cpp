// Placeholder until the update check is written.
