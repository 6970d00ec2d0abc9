// Core library sources.
