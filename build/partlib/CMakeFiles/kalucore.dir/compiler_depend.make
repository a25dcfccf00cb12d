# Empty compiler generated dependencies file for kalucore.
# This may be replaced when dependencies are built.
