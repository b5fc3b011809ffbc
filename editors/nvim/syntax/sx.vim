" SX assembly: the same classes as the VS Code grammar and the server's
" semantic tokens (instructions, directives, registers, numbers, strings,
" comments, labels at the start of a line).
if exists('b:current_syntax') | finish | endif
syntax case ignore
syntax iskeyword @,48-57,_,:
syntax keyword sxInstruction ADD ADDB AND BANK CALL CJA CJAE CJB CJBE CJE CJNE CLC CLR CLRB CLZ CSA
syntax keyword sxInstruction CSAE CSB CSBE CSE CSNE DEC DECSZ DJNZ IJNZ INC INCSZ IREAD JB JC JMP
syntax keyword sxInstruction JNB JNC JNZ JZ LCALL LJMP LSET MODE MOV MOVB MOVSZ NOP NOT OR PAGE RET
syntax keyword sxInstruction RETI RETIW RETP RETW RL RR SB SC SETB SKIP SLEEP SNB SNC SNZ STC STZ
syntax keyword sxInstruction SUB SUBB SWAP SZ TEST XOR
syntax keyword sxDirective BREAK CASE DEVICE DS DW ELSE END ENDIF ENDM ENDR EQU ERROR EXITM EXPAND
syntax keyword sxDirective FREQ ID IF IFDEF IFNDEF IRC_CAL MACRO NOCASE NOEXPAND ORG REPT RESET
syntax keyword sxDirective WATCH
syntax keyword sxRegister C DC FSR IND INDF INDIRECT PA0 PA1 PA2 PC PCL PD PORT_A PORT_B PORT_C RA
syntax keyword sxRegister RB RC RD RE RF RG RTCC STATUS TMR0 TO WREG Z
syntax keyword sxWord BANKS8 BOR22 BOR26 BOR42 BOROFF CARRYX DRIVEOFF DRT18MS DRT60MS DRT60US
syntax keyword sxWord DRT960MS FEEDBACKOFF FSTR HS_OSC IFBD IRC_4MHZ IRC_FAST IRC_SLOW LP_OSC M
syntax keyword sxWord OPTION OPTIONX OSC128KHZ OSC1MHZ OSC32KHZ OSC4MHZ OSCHS1 OSCHS2 OSCHS3 OSCIN
syntax keyword sxWord OSCLP1 OSCLP2 OSCRC OSCXT1 OSCXT2 OSCXT3 OSCXT4 OSCXT5 OSCXTMAX OSCXTMIN
syntax keyword sxWord PIC16C54 PIC16C55 PIC16C56 PIC16C57 PIC16C58 PROTECT PROTECT_OFF PROTECT_ON
syntax keyword sxWord RC_OSC SBIN SDEC SHEX SLEEPCLOCK STACKX STACKX_OPTIONX SX18 SX18L SX20 SX28
syntax keyword sxWord SX28AC SX28L SX48 SX52 SX52BD SYNC TURBO UBIN UDEC UHEX W WATCHDOG WDRT006
syntax keyword sxWord WDRT060 WDRT18 WDRT960 WDT WDT_OFF WDT_ON XTLBUFD XT_OSC ZSTR
syntax match sxNumber "\$[0-9A-Fa-f_]\+\|%[01_]\+\|\<[0-9][0-9A-Fa-f_]*[hH]\?\>"
syntax match sxLabel "^\s*\zs:\?[A-Za-z_][A-Za-z0-9_:]*" contains=sxInstruction,sxDirective
syntax match sxLocal ":[A-Za-z_][A-Za-z0-9_]*"
syntax region sxString start="'" end="'" oneline
syntax match sxComment ";.*$"
highlight default link sxInstruction Statement
highlight default link sxDirective PreProc
highlight default link sxRegister Identifier
highlight default link sxWord Type
highlight default link sxNumber Number
highlight default link sxLabel Function
highlight default link sxLocal Function
highlight default link sxString String
highlight default link sxComment Comment
let b:current_syntax = 'sx'
