// Keeps a library that has no units yet buildable.
