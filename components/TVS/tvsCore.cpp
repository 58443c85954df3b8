// Placeholder until this layer has its first unit.
