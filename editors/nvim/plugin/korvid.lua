-- Korvid for Neovim (0.7 and later, built-in client): .src files whose
-- first lines read as SX assembly get the filetype "sx", .sxh files "sxh",
-- and every sx buffer is served by `korvid lsp`.
--
-- Settings, before this file is sourced (all optional):
--   vim.g.korvid = { path = 'korvid', family = '28l', dialect = 'strict' }
-- A "; korvid: family=52 dialect=extended" line at a source's top wins.

local group = vim.api.nvim_create_augroup('korvid', { clear = true })

-- A DEVICE line, a "; korvid:" line, or an instruction or directive after
-- an optional label in the first 40 lines.
local words = { DEVICE = true, ORG = true, RESET = true, EQU = true, MOV = true, JMP = true,
                CALL = true, SETB = true, CLRB = true, MACRO = true }
local function looks_like_sx(buf)
  for _, line in ipairs(vim.api.nvim_buf_get_lines(buf, 0, 40, false)) do
    if line:match(';%s*korvid:') then return true end
    local code = line:gsub(';.*', ''):upper()
    local first, second = code:match('^%s*([%w_:]+)%s*([%w_:]*)')
    if first and (words[first] or words[second] or false) then return true end
  end
  return false
end

vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
  group = group,
  pattern = '*.src',
  callback = function(args)
    if looks_like_sx(args.buf) then vim.bo[args.buf].filetype = 'sx' end
  end,
})
vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
  group = group,
  pattern = '*.sxh',
  callback = function(args) vim.bo[args.buf].filetype = 'sxh' end,
})

local client_id
vim.api.nvim_create_autocmd('FileType', {
  group = group,
  pattern = 'sx',
  callback = function(args)
    local cfg = vim.g.korvid or {}
    if not client_id or not vim.lsp.get_client_by_id(client_id) then
      client_id = vim.lsp.start_client({
        name = 'korvid',
        cmd = { cfg.path or 'korvid', 'lsp' },
        root_dir = vim.fn.getcwd(),
        init_options = { korvid = { family = cfg.family or '28l', dialect = cfg.dialect or 'strict' } },
      })
    end
    if client_id then
      vim.lsp.buf_attach_client(args.buf, client_id)
      -- Each instruction's cycles at its line's end (Neovim 0.10 and
      -- later), each routine's bounds as a code lens above it.
      if vim.lsp.inlay_hint and vim.lsp.inlay_hint.enable then
        pcall(vim.lsp.inlay_hint.enable, true, { bufnr = args.buf })
      end
      vim.api.nvim_create_autocmd({ 'BufEnter', 'InsertLeave', 'TextChanged' }, {
        group = group,
        buffer = args.buf,
        callback = function() pcall(vim.lsp.codelens.refresh) end,
      })
    end
  end,
})
