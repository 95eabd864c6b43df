// Keeps the shared test library non-empty while tests/common grows.
