# Put first on the path of a child process, this stands for a machine without gymnasium.
raise ImportError("gymnasium is not installed here")
