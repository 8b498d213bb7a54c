// The precompiled header of the Windows tests is built with this file.
