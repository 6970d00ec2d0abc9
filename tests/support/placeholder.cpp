// Test support sources.
