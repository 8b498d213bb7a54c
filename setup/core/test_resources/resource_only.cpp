// A DLL that carries only resources.
