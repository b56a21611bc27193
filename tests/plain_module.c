// A module that carries no resources at all.
int plain_module;
