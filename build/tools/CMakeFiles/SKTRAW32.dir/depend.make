# Empty dependencies file for SKTRAW32.
# This may be replaced when dependencies are built.
