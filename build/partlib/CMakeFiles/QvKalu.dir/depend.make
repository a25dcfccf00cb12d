# Empty dependencies file for QvKalu.
# This may be replaced when dependencies are built.
