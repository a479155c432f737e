// Settings dialog tests follow.
