-- SX assembly buffers: ";" comments, names with a leading colon (local labels).
vim.bo.commentstring = '; %s'
vim.bo.comments = ':;'
vim.opt_local.iskeyword:append(':')
