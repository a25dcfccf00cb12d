# Empty dependencies file for kaluplat.
# This may be replaced when dependencies are built.
