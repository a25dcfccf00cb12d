# Empty compiler generated dependencies file for kaluinfo.
# This may be replaced when dependencies are built.
