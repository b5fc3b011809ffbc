// The Korvid28L program: the IDE built with the SX18L/SX28L family tables.
#include "family/Family.h"
#include "ui/Application.h"

int main(int argc, char** argv) { return korvid::RunIde(argc, argv, korvid::Sx28lFamily()); }
