-- Run by neovim.test.mjs inside headless Neovim with editors/nvim on the
-- runtime path: the source with an error is open; report what the editor
-- shows through its built-in client.
local out = {}
local function report(key, value) table.insert(out, key .. '=' .. tostring(value)) end

report('filetype', vim.bo.filetype)
local got = vim.wait(10000, function() return #vim.diagnostic.get(0) > 0 end, 50)
report('diagnostics', got and #vim.diagnostic.get(0) or 0)
for _, d in ipairs(vim.diagnostic.get(0)) do
  report('diagnostic', string.format('%d:%d:%d:%s:%s', d.lnum + 1, d.col + 1, d.severity, d.source, d.message))
end

-- Go to the definition of "delay" from its use in "CALL delay".
vim.fn.search('CALL\\s\\+\\zsdelay')
report('from', vim.fn.line('.') .. ':' .. vim.fn.col('.'))
vim.lsp.buf.definition()
vim.wait(10000, function() return vim.fn.getline('.'):match('^delay') ~= nil end, 50)
report('to', vim.fn.line('.') .. ':' .. vim.fn.col('.'))

vim.fn.writefile(out, vim.env.KORVID_NVIM_REPORT)
vim.cmd('qa!')
