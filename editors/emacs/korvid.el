;;; korvid.el --- SX assembly with korvid lsp through eglot  -*- lexical-binding: t -*-

;; Load it from your init file:  (load "/path/to/korvid/editors/emacs/korvid.el")
;; then M-x eglot in an SX source (or add eglot-ensure to sx-asm-mode-hook).
;; The one line that matters is the eglot-server-programs entry below.

(require 'asm-mode)

(define-derived-mode sx-asm-mode asm-mode "SX"
  "Major mode for SX assembly sources served by `korvid lsp'."
  (setq-local asm-comment-char ?\;)
  (setq-local comment-start "; "))

(add-to-list 'auto-mode-alist '("\\.src\\'" . sx-asm-mode))

(with-eval-after-load 'eglot
  (add-to-list 'eglot-server-programs '(sx-asm-mode "korvid" "lsp")))

(provide 'korvid)
;;; korvid.el ends here
